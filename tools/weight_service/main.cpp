// The stand-in weight service on 127.0.0.1, until interrupted:
//   weight_service [--port N] [--weight DOMAIN=N]... [--default-weight N]
//                  [--refuse-after N] [--delay MS]
// Watch a whole run against it by pointing the window at it as a proxy:
//   http_proxy=http://127.0.0.1:N rankora
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "weight_service.h"

int main(int argc, char* argv[]) {
  rankora::tools::WeightServiceOptions options;
  int port = 8080;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    const bool hasValue = i + 1 < argc;
    if (flag == "--port" && hasValue) {
      port = std::atoi(argv[++i]);
    } else if (flag == "--weight" && hasValue) {
      const std::string pair = argv[++i];
      const std::size_t equals = pair.rfind('=');
      if (equals == std::string::npos) {
        std::fprintf(stderr, "--weight takes DOMAIN=N\n");
        return 2;
      }
      options.weights[pair.substr(0, equals)] = pair.substr(equals + 1);
    } else if (flag == "--default-weight" && hasValue) {
      options.defaultWeight = argv[++i];
    } else if (flag == "--refuse-after" && hasValue) {
      options.refuseAfter = std::atol(argv[++i]);
    } else if (flag == "--delay" && hasValue) {
      options.delay = std::chrono::milliseconds(std::atol(argv[++i]));
    } else {
      std::fprintf(stderr,
                   "usage: weight_service [--port N] [--weight DOMAIN=N]... [--default-weight N]"
                   " [--refuse-after N] [--delay MS]\n");
      return 2;
    }
  }
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  rankora::tools::WeightService service(options);
  rankora::tools::LoopbackServer server(
      [&service](const rankora::tools::ReceivedRequest& request) { return service.Handle(request); }, port);
  if (!server.Listening()) {
    std::fprintf(stderr, "cannot listen on 127.0.0.1:%d\n", port);
    return 1;
  }
  std::printf("weight service on %s (as a proxy: http_proxy=%s)\n", server.Origin().c_str(), server.Origin().c_str());
  std::fflush(stdout);
  int received = 0;
  sigwait(&signals, &received);
  return 0;
}
