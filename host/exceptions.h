#pragma once

#include "host/host_api.h"

namespace HostSDK::Util {

// Base of the SDK's exception types; carries a fixed message text.
class HOSTSDK_API Exception {
  public:
    explicit Exception(const wchar_t* message) noexcept;
    virtual ~Exception();
    const wchar_t* Message() const noexcept;

  private:
    wchar_t message_[128];
};

class HOSTSDK_API OutOfRangeException : public Exception {
  public:
    using Exception::Exception;
    ~OutOfRangeException() override;
};

class HOSTSDK_API TabOutOfRangeException : public OutOfRangeException {
  public:
    using OutOfRangeException::OutOfRangeException;
    ~TabOutOfRangeException() override;
};

}  // namespace HostSDK::Util
