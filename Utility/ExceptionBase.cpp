#include "Utility/ExceptionBase.h"

ExceptionBase::ExceptionBase(const char* file, int line, std::uint32_t code, const char* format,
                             ...)
    : m_code(code) {
    setLocation(file, line);
    va_list args;
    va_start(args, format);
    setText(format, args);
    va_end(args);
}

ExceptionBase::ExceptionBase(const char* file, int line, std::uint32_t code) : m_code(code) {
    setLocation(file, line);
}

ExceptionBase::~ExceptionBase() = default;

const char* ExceptionBase::what() const noexcept { return m_text.c_str(); }

void ExceptionBase::setLocation(const char* file, int line) {
    if (file == nullptr) return;
    m_location = formatBoundedText("File %s at Line %d", file, line);
}

void ExceptionBase::setText(const char* format, va_list args) {
    if (format == nullptr) return;
    m_text = formatBounded(format, args);
}

void ExceptionBase::print(Channel*& channel) const {
    if (channel == nullptr) return;
    channel->printf("Exception (%lX) in %s\n\t%s\n", static_cast<unsigned long>(m_code),
                    m_location.c_str(), m_text.c_str());
}

Invariant::Invariant(const char* file, int line)
    : ExceptionBase(file, line, kCode, "Invariant violated") {}

PreCondition::PreCondition(const char* file, int line)
    : ExceptionBase(file, line, kCode, "PreCondition violated") {}

PostCondition::PostCondition(const char* file, int line)
    : ExceptionBase(file, line, kCode, "PostCondition violated") {}
