#pragma once

#include <QString>
#include <exception>
#include <utility>

namespace platform {
class Dialogs;
}

namespace common {

// The support address that ends every error report.
inline constexpr char kSupportEmail[] = "support@kestrune.example";

// The text of the error report for a failure with `description` in `routine` ("Form1.Form_Load")
// at numbered step `line`.
QString errorReportText(const QString& description, const QString& routine, int line);

// The description of the exception being handled (call inside a catch block).
QString describeCurrentException();

// One routine's error trap. Each numbered step runs through it: a step that throws is reported
// with the error report (title "Application Error", exclamation icon) and the routine goes on with
// its next step. A guarding condition that throws counts as true: the routine enters the block it
// guards, as a trap that resumes with the next statement does.
class ErrorTrap {
  public:
    ErrorTrap(platform::Dialogs& dialogs, QString routine);

    // Runs step `line`. Returns true when it ran through, false when it failed (and was reported).
    template <class Step>
    bool step(int line, Step&& body) {
        try {
            std::forward<Step>(body)();
            return true;
        } catch (...) {
            report(describeCurrentException(), line);
            return false;
        }
    }

    // Evaluates the guarding condition of step `line`; a failure is reported and reads as true.
    template <class Condition>
    bool test(int line, Condition&& condition) {
        try {
            return static_cast<bool>(std::forward<Condition>(condition)());
        } catch (...) {
            report(describeCurrentException(), line);
            return true;
        }
    }

    // Evaluates step `line` for its value; on failure reports and returns `fallback`.
    template <class Value, class Body>
    Value value(int line, Body&& body, Value fallback) {
        try {
            return std::forward<Body>(body)();
        } catch (...) {
            report(describeCurrentException(), line);
            return fallback;
        }
    }

    void report(const QString& description, int line);
    int reportCount() const { return reports_; }
    const QString& routine() const { return routine_; }

  private:
    platform::Dialogs& dialogs_;
    QString routine_;
    int reports_ = 0;
};

}  // namespace common
