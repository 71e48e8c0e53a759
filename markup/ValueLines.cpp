#include "markup/ValueLines.h"

#include <velcom/Memory.h>

namespace valueLines {

bool nextLine(std::string_view text, std::size_t position, Line& line) {
    if (!nextWord(text, position, line)) return false;
    finishLine(text, line);
    return true;
}

std::string join(std::string_view lines, std::size_t size) {
    std::string value;
    value.reserve(size);
    velcom::adviseLargeBuffer(value.data(), value.capacity());
    std::size_t position = findDelimiter(lines, 0, true);
    value.append(trimBlanks(lines.substr(0, position)));
    Line line;
    while (nextLine(lines, position, line)) {
        prefetchAhead(lines, line.end);
        appendLine(value, line);
        position = line.end;
    }
    return value;
}

}  // namespace valueLines
