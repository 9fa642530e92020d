#include <gtest/gtest.h>

#include "host_driver.h"
#include "stand_in_kernel.h"
#include "type471.h"

namespace pcm::testing {
namespace {

TEST(scratch, worked_example) {
    standin::reset();
    standin::setSimulationTimeStep(0.25);
    HostUnit unit(&TYPE471, 1);
    unit.initialize();
    unit.step(0.0);
    for (int i = 1; i <= 3; ++i) {
        unit.step(0.25);
        printf("%.17g %.17g\n", unit.outputs[0], unit.outputs[1]);
    }
    for (auto& m : standin::messageCalls()) printf("%s|%s|%d\n", m.message.c_str(), m.severity.c_str(), m.messageLength);
}

}  // namespace
}  // namespace pcm::testing
