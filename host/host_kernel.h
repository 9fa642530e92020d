// The host kernel routines this component calls, as the host's kernel library
// (TRNDll) exports them: undecorated C names, cdecl, every number by reference
// except the two text lengths, which follow the texts by value.  Doubles come
// back by value.
#pragma once

#include <cstdint>

extern "C" {

// Host time step, hours.
double TRNSYSFUNCTIONS_mp_GETSIMULATIONTIMESTEP();

// Simulation start time, in the unit of the entry's time argument (hours).
double TRNSYSFUNCTIONS_mp_GETSIMULATIONSTARTTIME();

// Checks the unit's counts of inputs, parameters and derivatives against its
// deck and reports a mismatch.  option is always 1.
void TYPECK(std::int32_t* option, std::int32_t* info, std::int32_t* inputCount, std::int32_t* parameterCount,
            std::int32_t* derivativeCount);

// Writes one message to the host's log.  The lengths count the characters
// before the terminating zero, which both texts also carry.
void MESSAGES(std::int32_t* errorCode, char* message, char* severity, std::int32_t* unitNumber,
              std::int32_t* typeNumber, std::int32_t messageLength, std::int32_t severityLength);
}
