// A misuse inside the program (a column index out of range, a field that does not exist,
// moving past the end, an unsupported parameter type): a fault of the program, not of the
// database, and never reported to the user as a failed query.
#pragma once

#include <stdexcept>

namespace faq::data {

class ProgramError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

}  // namespace faq::data
