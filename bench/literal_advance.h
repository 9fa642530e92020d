// The explicit advance of the layer written as plainly as the scheme reads:
// one node after another, the specific heat of each node evaluated where its
// update needs it, the new temperatures copied back element by element.
// Kept beside the benchmarks as the baseline of the fast solver and as the
// reference its tests compare with bit for bit; not part of the component.
#pragma once

#include <cstdint>

#include "layer.h"

namespace pcm::literal {

// Same contract as pcm::advanceLayer.
void advanceLayer(LayerState& state, std::int32_t subStepCount, double subStep, const LayerInputs& in);

// The same with the C runtime's exp in the material law instead of the
// correctly rounded one: what the plain approach costs with the fastest exp at
// hand.  Its results may differ in the last bit; for comparison of speed only.
void advanceLayerWithRuntimeExp(LayerState& state, std::int32_t subStepCount, double subStep,
                                const LayerInputs& in);

}  // namespace pcm::literal
