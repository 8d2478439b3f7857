#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <system_error>

// Success reads as success in a test. A fallible function returns an empty std::error_code, an
// empty std::optional<std::string> (no problem to report) or true when it worked; these macros say
// so at the call site and print the error when it did not work.
namespace parvolin::test {

inline ::testing::AssertionResult worked(const std::error_code& error) {
  if (!error) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "failed: " << error.message();
}

inline ::testing::AssertionResult worked(const std::optional<std::string>& problem) {
  if (!problem) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "failed: " << *problem;
}

inline ::testing::AssertionResult worked(bool succeeded) {
  if (succeeded) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "failed";
}

}  // namespace parvolin::test

#define EXPECT_WORKED(expr) EXPECT_TRUE(::parvolin::test::worked(expr))
#define ASSERT_WORKED(expr) ASSERT_TRUE(::parvolin::test::worked(expr))
