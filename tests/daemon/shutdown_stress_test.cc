// Starting and stopping the listener and the broker many times, with clients
// connected and a request in flight each time: nothing is freed while it is
// still served (the sanitizer build runs this too).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include "daemon/unix_listener.h"
#include "engines/sim/sim_bank.h"
#include "rpc/broker.h"
#include "tiff_maker.h"
#include "unix_socket.h"

namespace qvfax::daemon {
namespace {

using testing::ConnectedUnixSocket;

TEST(ShutdownStress, StartAndStopAThousandTimesWithClientsConnected) {
  const std::string socket = testing::ScratchPath("stress.sock");
  const std::string request = R"({"jsonrpc":"2.0","id":1,"method":"faxes","params":{}})" "\n";
  int served = 0;
  for (int round = 0; round < 1000; ++round) {
    rpc::BrokerOptions options;
    options.register_engine = [](ComponentRegistry& r) { sim::RegisterSimEngine(r, sim::DefaultConfig()); };
    rpc::Broker broker(std::move(options));
    asio::io_context io;
    UnixListener listener(io, broker, socket);
    listener.Start();
    std::thread loop([&] { io.run(); });
    int clients[3];
    for (int& fd : clients) {
      fd = ConnectedUnixSocket(socket);
      ASSERT_GE(fd, 0) << "round " << round;
      (void)!::write(fd, request.data(), request.size());
    }
    // One client waits for its answer; the others are still in flight when the daemon stops.
    char answer[256];
    if (::read(clients[0], answer, sizeof answer) > 0) ++served;
    asio::post(io, [&] {
      listener.Stop();
      broker.Shutdown();
      io.stop();
    });
    loop.join();
    for (int fd : clients) ::close(fd);
  }
  EXPECT_EQ(served, 1000);
  EXPECT_FALSE(std::filesystem::exists(socket)) << "the socket goes with the listener";
}

}  // namespace
}  // namespace qvfax::daemon
