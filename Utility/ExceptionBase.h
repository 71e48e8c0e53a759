// The exception the utility library throws: a 32-bit code, a message and the source location of
// the throw, each text bounded to 1023 characters.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <exception>
#include <string>

#include "Utility/Channel.h"
#include "Utility/Format.h"

class ExceptionBase : public std::exception {
public:
    // Sets the code, then the location "File <file> at Line <line>", then the text formatted
    // printf-style. A null file leaves the location empty, a null format the text.
    ExceptionBase(const char* file, int line, std::uint32_t code, const char* format, ...)
        VEL_PRINTF_FORMAT(5, 6);
    ExceptionBase(const char* file, int line, std::uint32_t code);
    ~ExceptionBase() override;

    // The text; an empty string, never null, when there is none.
    const char* what() const noexcept override;
    virtual void setLocation(const char* file, int line);
    virtual void setText(const char* format, va_list args) VEL_PRINTF_FORMAT(2, 0);

    std::uint32_t getCode() const { return m_code; }
    std::string getText() const { return m_text; }
    std::string getLocation() const { return m_location; }

    // Writes "Exception (<code in hex>) in <location>\n\t<text>\n" through the channel the
    // pointer names; nothing when it names none.
    void print(Channel*& channel) const;

private:
    std::uint32_t m_code;
    std::string m_text;
    std::string m_location;
};

// Broken contract checks. Their codes are failure HRESULTs of facility 4, so they can travel
// unchanged as a method's result.
class Invariant : public ExceptionBase {
public:
    static constexpr std::uint32_t kCode = 0xC0041001u;
    Invariant(const char* file, int line);
};

class PreCondition : public ExceptionBase {
public:
    static constexpr std::uint32_t kCode = 0xC0041002u;
    PreCondition(const char* file, int line);
};

class PostCondition : public ExceptionBase {
public:
    static constexpr std::uint32_t kCode = 0xC0041003u;
    PostCondition(const char* file, int line);
};
