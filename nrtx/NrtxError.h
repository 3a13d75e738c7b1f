// Error codes of the host plug-in library and the exception type it throws.
// Any thread; the exception never leaves a plug-in library (the exports catch it).
#pragma once

#include <cstdint>
#include <exception>

namespace nrtx {

constexpr std::int32_t kNoErr = 0;
constexpr std::int32_t kErrGroupNotCreated = 58533;  // NewPlugIn: the process group is missing
constexpr std::int32_t kErrUnknown = 58135;          // NewPlugIn: any other failure
constexpr std::int32_t kErrBadType = 58110;          // unknown type or malformed registration
constexpr std::int32_t kErrGestaltUnknown = -5551;   // FicGestalt: selector not answered

class CNrtxException : public std::exception {
  public:
    explicit CNrtxException(std::int32_t code) : code_(code) {}
    std::int32_t code() const noexcept { return code_; }
    const char* what() const noexcept override { return "NRTX host library error"; }

  private:
    std::int32_t code_;
};

}  // namespace nrtx
