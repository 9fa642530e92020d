# Results must be the same to the last bit on every platform: every operation
# an IEEE double operation, rounded once, in the order the source writes it.
# No contraction into fused multiply-adds, no fast-math reassociation, and on
# 32-bit x86 SSE2 instead of the x87 unit, whose wider registers round twice.
add_compile_options(-ffp-contract=off -fno-fast-math)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" OR CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_compile_options(-msse2 -mfpmath=sse)
endif()
