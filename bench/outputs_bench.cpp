// Events serialised and written per second: the station's record events through the file
// output and through the TCP output to a reading client on loopback.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <filesystem>
#include <thread>

#include "app/outputs/file_output.h"
#include "app/outputs/station.h"
#include "app/outputs/tcp_output.h"
#include "support/records.h"

namespace {

using kestrel::Station;

// A typical record: a new message of 60 text bytes.
const std::string kRecord =
    kestrel_test::Record(0x1207, true, std::string(60, 'A') + "\r\x1B" + std::string(40, 'b'));

void FileEvents(benchmark::State& state) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("outputs_bench." + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  kestrel::SystemClock clock;
  {
    Station station(clock, "bench", [] { return std::string("sound card"); });
    station.AddOutput(
        std::make_unique<kestrel::FileOutput>(folder.string(), [](std::string_view) {}));
    for (auto _ : state) station.OnRecord(kRecord, 2, kestrel::RecordOutcome::kAccepted);
    state.SetItemsProcessed(state.iterations());
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(FileEvents);

void TcpEvents(benchmark::State& state) {
  static int argc = 1;
  static char name[] = "outputs_bench";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
  kestrel::SystemClock clock;
  auto output = std::make_unique<kestrel::TcpOutput>("127.0.0.1", 0, int64_t(1) << 30,
                                                     [](std::string_view) {});
  kestrel::TcpOutput& tcp = *output;
  Station station(clock, "bench", [] { return std::string("sound card"); });
  station.AddOutput(std::move(output));
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(tcp.ListeningPort());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  std::thread reader([fd] {
    char buffer[1 << 16];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
  });
  while (tcp.ClientCount() == 0) QCoreApplication::processEvents();
  int64_t n = 0;
  for (auto _ : state) {
    station.OnRecord(kRecord, 2, kestrel::RecordOutcome::kAccepted);
    // The event loop moves the bytes, as the program's does between records.
    if (++n % 16 == 0) QCoreApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations());
  if (tcp.ClientCount() != 1) state.SkipWithError("the client was dropped");
  shutdown(fd, SHUT_RDWR);
  reader.join();
  close(fd);
}
BENCHMARK(TcpEvents);

}  // namespace
