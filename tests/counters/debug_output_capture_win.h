#pragma once
// Captures this process's OutputDebugStringA text. The call raises
// DBG_PRINTEXCEPTION_C for an attached debugger; a vectored handler sees it
// first, copies the text, and lets the program go on.
#include <windows.h>

#include <string>

class DebugOutputCapture {
public:
    DebugOutputCapture() {
        text().clear();
        handler_ = AddVectoredExceptionHandler(1, &DebugOutputCapture::onException);
    }
    ~DebugOutputCapture() { RemoveVectoredExceptionHandler(handler_); }
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    static const std::string& captured() { return text(); }

private:
    static std::string& text() {
        static std::string captured;
        return captured;
    }
    static LONG CALLBACK onException(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD* record = info->ExceptionRecord;
        if (record->ExceptionCode != DBG_PRINTEXCEPTION_C || record->NumberParameters < 2) {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        const auto length = static_cast<std::size_t>(record->ExceptionInformation[0]);  // includes the NUL
        // The record carries the text's address as an integer.
        const auto* chars =
            reinterpret_cast<const char*>(record->ExceptionInformation[1]);  // NOLINT(performance-no-int-to-ptr)
        if (chars != nullptr && length > 0) {
            text().append(chars, length - 1);
        }
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    PVOID handler_;
};
