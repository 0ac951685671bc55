// A rate-source library that exports none of the contract's functions.

namespace {
[[maybe_unused]] int unused = 0;
}  // namespace
