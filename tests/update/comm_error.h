#pragma once

#include <gtest/gtest.h>

#include "update/comm_port.h"

namespace velmora::test {

// Runs `action`, which must throw ECommError, and returns the error.
template <class Action>
ECommError commError(Action action) {
    try {
        action();
    } catch (const ECommError& e) {
        return e;
    }
    ADD_FAILURE() << "expected ECommError";
    return ECommError("none", 0);
}

}  // namespace velmora::test
