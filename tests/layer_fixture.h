// The fixture of the object layer's tests: a fresh test double for every test, and after every
// test the check that the layer destroyed each handle it created exactly once, destroyed
// nothing else and used no handle after destroying it.
#ifndef TRELK_TESTS_LAYER_FIXTURE_H
#define TRELK_TESTS_LAYER_FIXTURE_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/fake_library.h"

class LayerTest : public ::testing::Test {
protected:
    void SetUp() override { lib.reset(); }
    void TearDown() override {
        EXPECT_THAT(lib.faults(), ::testing::IsEmpty());
        EXPECT_THAT(lib.live(), ::testing::IsEmpty()) << "handles never destroyed";
    }

    // The calls since `mark`, the double's own error building left out.
    std::vector<fake::Call> since(std::size_t mark) const { return lib.calls_since(mark); }

    fake::Library& lib = fake::library();
};

#endif
