#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>

#include "platform/RandomSource.h"
#include "platform/UrlOpener.h"
#include "support/ScriptedDialogs.h"

// The doubles that tests and benchmarks hand to the windows in place of the real dialogs, random
// source and shell; the program itself never holds one.

namespace platform {

// A test double that returns queued values; once the queue is empty it returns `fallback`.
class ScriptedRandom : public RandomSource {
  public:
    explicit ScriptedRandom(double fallback = 0.5) : fallback_(fallback) {}
    void queue(double value) { values_.push_back(value); }
    void reseedFromTimer() override { ++reseeds_; }
    double next() override;
    int reseeds() const { return reseeds_; }
    int draws() const { return draws_; }

  private:
    std::deque<double> values_;
    double fallback_;
    int reseeds_ = 0;
    int draws_ = 0;
};

}  // namespace platform

// A shell that opens nothing and keeps every address it was asked to open, in order.
class RecordingOpener : public platform::UrlOpener {
  public:
    void open(const QString& url) override { opened << url; }
    QStringList opened;
};

// The error reports ("Application Error" message boxes) among the boxes `dialogs` showed.
QList<platform::ScriptedDialogs::Shown> errorReports(const platform::ScriptedDialogs& dialogs);

// The list as stored in the settings file (group Morrowlin, key Assets); nothing when the key is
// absent.
std::optional<QString> storedList(const QString& settingsFile);
