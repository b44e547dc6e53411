#include "host/exceptions.h"

#include <cwchar>
#include <iterator>

namespace HostSDK::Util {

Exception::Exception(const wchar_t* message) noexcept {
    std::wcsncpy(message_, message != nullptr ? message : L"", std::size(message_) - 1);
    message_[std::size(message_) - 1] = L'\0';
}

Exception::~Exception() = default;
const wchar_t* Exception::Message() const noexcept {
    return message_;
}

OutOfRangeException::~OutOfRangeException() = default;
TabOutOfRangeException::~TabOutOfRangeException() = default;

}  // namespace HostSDK::Util
