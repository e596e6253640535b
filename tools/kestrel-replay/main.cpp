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
    if (!outcome.bytes.empty())
      replay_.Feed(std::string(outcome.bytes.begin(), outcome.bytes.end()));
  }

 private:
  kestrel_replay::Replay& replay_;
};

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
    std::printf("%s\n", kestrel_replay::kUsage.data());
    return 0;
  }
  if (parsed.outcome == ParsedArguments::Outcome::kUsageError) {
    std::fprintf(stderr, "kestrel-replay: %s\n%s\n", parsed.error.c_str(),
                 kestrel_replay::kUsage.data());
    return 2;
  }
  const kestrel_replay::Arguments& arguments = parsed.arguments;

  // Printouts need fonts, and fonts a GUI application, even with no screen; mail needs at least
  // an event loop.
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
  if (!replay.LoadProfile(error)) return Fail(error);
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
    ReplaySink sink(replay);
    error = sieve_decode::Decode(options, sink);
    if (!error.empty()) return Fail(error);
  }

  replay.FlushMail(mail_control);
  replay.EndPrinting();
  replay.Report(std::cout);
  std::cout.flush();
  if (!std::cout) return Fail("cannot write the output");
  for (const std::string& failure : replay.MailFailures()) Fail(failure);
  if (!replay.MailFailures().empty()) return 1;
  return 0;
}
