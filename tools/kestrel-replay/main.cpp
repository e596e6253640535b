// kestrel-replay: runs a recording, or a list of decoded records, through Kestrel's processing
// and rules without windows, and prints the Messages rows, the Terminals, the MDT display and
// the mails, as the program would have them.
#include <QGuiApplication>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/mail/pigeon_mail_control.h"
#include "app/platform/program_log.h"
#include "app/profile/profile.h"
#include "app/rules/rule_processing.h"
#include "arguments.h"
#include "decode_runs.h"
#include "pdf_printer.h"
#include "records_file.h"
#include "replay.h"

namespace {

// Hands each decoding call's bytes on as one record.
class ReplaySink : public sieve_decode::CallSink {
 public:
  explicit ReplaySink(kestrel_replay::Replay& replay) : replay_(replay) {}
  void Print(const sieve_decode::CallOutcome& outcome) override {
    if (outcome.bytes.empty()) return;
    ++records_;
    replay_.Feed(std::string(outcome.bytes.begin(), outcome.bytes.end()));
  }
  int64_t records() const { return records_; }

 private:
  kestrel_replay::Replay& replay_;
  int64_t records_ = 0;
};

// Qt's own warnings (no runtime directory, a painter that would not begin) would only repeat,
// in Qt's words, what the tool says itself in one line; the serious ones still get through.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    std::fprintf(stderr, "kestrel-replay: %s\n", message.toLocal8Bit().constData());
  }
}

int Fail(const std::string& error) {
  std::fprintf(stderr, "kestrel-replay: %s\n", error.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using kestrel_replay::ParsedArguments;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const ParsedArguments parsed = kestrel_replay::ParseArguments(args);
  if (parsed.outcome == ParsedArguments::Outcome::kHelp) {
    std::printf("%s\n", kestrel_replay::kHelp.data());
    return 0;
  }
  if (parsed.outcome == ParsedArguments::Outcome::kUsageError) {
    std::fprintf(stderr, "kestrel-replay: %s\n%s\n", parsed.error.c_str(),
                 kestrel_replay::kUsage.data());
    return 2;
  }
  const kestrel_replay::Arguments& arguments = parsed.arguments;
  // Before any work, so a bad name costs nothing and is said once.
  if (!arguments.print_to.empty()) {
    if (std::string error = kestrel_replay::CheckPrintTarget(arguments.print_to); !error.empty())
      return Fail(error);
  }
  // What the program would log (a rule's log file that cannot be written, say) is said here.
  kestrel::ScopedProgramLogSink log(
      [](const std::string& line) { std::fprintf(stderr, "kestrel-replay: %s\n", line.c_str()); });

  // Printouts need fonts, and fonts a GUI application, even with no screen; mail needs at least
  // an event loop.
  qInstallMessageHandler(QuietQtMessages);
  std::unique_ptr<QCoreApplication> application;
  std::unique_ptr<kestrel_replay::PdfPrinter> printer;
  if (!arguments.print_to.empty()) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    application = std::make_unique<QGuiApplication>(argc, argv);
    printer = std::make_unique<kestrel_replay::PdfPrinter>(
        QString::fromLocal8Bit(arguments.print_to.c_str()));
  } else {
    application = std::make_unique<QCoreApplication>(argc, argv);
  }
  pigeon::Mail mail;
  kestrel::PigeonMailControl mail_control(mail);

  kestrel_replay::Replay replay(arguments, printer.get());
  std::string error;
  kestrel::ProfileLoadReport profile_report;
  const bool loaded = replay.LoadProfile(profile_report);
  for (const std::string& warning : profile_report.warnings) Fail(warning);
  if (!loaded) return Fail(kestrel::ProfileLoadFailureText(arguments.profile, profile_report));
  replay.PrepareRules();

  if (arguments.records) {
    std::vector<std::string> records;
    if (!kestrel_replay::ReadRecordsFile(arguments.input, records, error)) return Fail(error);
    for (const std::string& record : records) replay.Feed(record);
  } else {
    sieve_decode::Options options;
    options.input =
        arguments.rm100 ? sieve_decode::InputKind::kRm100 : sieve_decode::InputKind::kAudio;
    options.path = arguments.input;
    const kestrel::Settings& settings = replay.settings();
    options.reverse = arguments.reverse || (arguments.rm100 ? settings.COMPortReversePolarity
                                                            : settings.ReversePolarity);
    options.decoder_mode = arguments.decoder_mode.value_or(settings.DecoderMode);
    ReplaySink sink(replay);
    error = sieve_decode::Decode(options, sink);
    if (!error.empty()) return Fail(error);
    if (sink.records() == 0) return Fail(sieve_decode::NothingDecoded(options));
  }

  replay.FlushMail(mail_control);
  replay.EndPrinting();
  replay.Report(std::cout);
  std::cout.flush();
  if (!std::cout) return Fail("cannot write the output");
  int status = 0;
  if (printer != nullptr && printer->failed()) {
    status = Fail(arguments.print_to + ": the printout could not be written");
  } else if (printer != nullptr && printer->pages() == 0) {
    std::fprintf(stderr,
                 "kestrel-replay: %s not written: no rule that prints (LogPrinter) matched\n",
                 arguments.print_to.c_str());
  }
  // Each was named on standard error when it happened.
  if (kestrel::ReportedLogFileFailures() > 0) status = 1;
  for (const std::string& failure : replay.MailFailures()) Fail(failure);
  if (!replay.MailFailures().empty()) return 1;
  return status;
}
