#pragma once

#include <QString>
#include <stdexcept>

namespace common {

// What a helper throws when it cannot do its work. The caller's error trap shows what() as the
// description of the failure, so it is a plain English sentence that names the file or value.
class Failure : public std::runtime_error {
  public:
    explicit Failure(const QString& description) : std::runtime_error(description.toStdString()) {}
};

}  // namespace common
