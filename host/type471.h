// The component's entry as the host calls it, and the module-level layers it
// keeps between calls.
#pragma once

#include <cstdint>

#include "export.h"
#include "layer.h"

// Called by the host for every event in a unit's life.  info is the host's
// array of 15 integers (info[k-1] is its info(k)): reads info(1), (2), (7), (8)
// and (13); writes info(6), (9), (10) and (12).  fourth and fifth are never
// touched.  Returns 1 on every path.
PCM_EXPORT std::int32_t TYPE471(double* time, double* inputs, double* outputs, double* fourth, double* fifth,
                                double* parameters, std::int32_t* info);

namespace pcm::detail {

// The layer of a unit, or nullptr if the unit holds no state.  For tests.
const LayerState* findUnitState(std::int32_t unitNumber);

// Drops every unit's state, as unloading the module does.  For tests.
void releaseAllUnits();

}  // namespace pcm::detail
