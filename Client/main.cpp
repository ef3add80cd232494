// ostrakel-client: asks the service one request and prints its reply.
// Exit status: 0 for a reply without error, 1 for a reply with one, 2 when
// the request could not be asked.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>

#include "Client/ClientRequest.h"
#include "Client/TextAgent.h"
#include "platform/Authorization.h"
#include "platform/RemoteClient.h"

using namespace ostrakel;

namespace {

void printError(const ErrorRef& error) {
  const char* label = "error";
  for (ErrorRef current = error; current; current = current->userInfo.underlying) {
    std::cerr << label << ": " << current->domain << " " << current->code << " "
              << current->userInfo.localizedDescription.value_or("") << "\n";
    label = "underlying";
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << client::kUsage;
    return 0;
  }
  std::string why;
  std::optional<client::Invocation> invocation = client::parseInvocation(args, why);
  if (!invocation) {
    std::cerr << "ostrakel-client: " << why << "\n" << client::kUsage;
    return 2;
  }
  PlistRef& authorization = invocation->request.arguments.back();
  switch (invocation->authMode) {
    case client::AuthMode::none: break;
    case client::AuthMode::given: authorization = PlistValue::data(invocation->givenAuth); break;
    case client::AuthMode::own:
      if (std::optional<std::string> form = authorization::makeExternalForm())
        authorization = PlistValue::data(*form);
      else
        std::cerr << "ostrakel-client: cannot describe this process for authorization; asking without\n";
      break;
  }

  int fd = remote::connectToSocket(invocation->socketHostPath, why);
  if (fd < 0) {
    std::cerr << "ostrakel-client: no service: " << why << "\n";
    return 2;
  }
  std::unique_ptr<client::TextAgent> agent;
  if (::isatty(STDIN_FILENO) && authorization) agent = std::make_unique<client::TextAgent>();
  std::optional<remote::Reply> reply = remote::ask(fd, invocation->request, why);
  agent.reset();
  ::close(fd);
  if (!reply) {
    std::cerr << "ostrakel-client: " << why << "\n";
    return 2;
  }
  std::cout << reply->message << "\n" << std::flush;
  if (reply->error) {
    printError(reply->error);
    return 1;
  }
  return 0;
}
