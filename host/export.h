#pragma once

// The one symbol the module exports; everything else is hidden.
#if defined(_WIN32)
#define PCM_EXPORT extern "C" __declspec(dllexport)
#else
#define PCM_EXPORT extern "C" __attribute__((visibility("default")))
#endif
