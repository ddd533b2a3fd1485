#include "TCueNumber.h"

#include <ostream>

std::ostream& operator<<(std::ostream& stream, TCueNumber number) {
    return stream << number.Number();
}
