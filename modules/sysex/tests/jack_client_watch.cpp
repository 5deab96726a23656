// Preloaded (LD_PRELOAD) into sysex_tool by jack_ports_check.py, to see and
// to stretch how the program opens its JACK clients.
//
// BYTELOOM_JACK_CALLS=FILE: every jack_client_open, jack_activate and
// jack_client_close of the process appends one line to FILE ("open NAME",
// "activate", "close"), written at once, so that a program that hangs or is
// killed has told what it did until then.
//
// BYTELOOM_BIND_DELAY_US=N: the binding of a JACK client's notification
// socket for a client called Byteloom (a Unix socket in /dev/shm named
// jack_Byteloom...) waits N microseconds first. The client library binds it
// between asking the server whether the name is free and opening the client;
// two processes that open such clients at the same moment without taking
// turns then almost always take each other's socket, where unstretched they
// do so now and then on a busy machine.
#include <dlfcn.h>
#include <fcntl.h>
#include <jack/jack.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

template <typename Function>
Function real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void note(const std::string& line) {
  const char* path = std::getenv("BYTELOOM_JACK_CALLS");
  if (!path) return;
  const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const std::string text = line + '\n';
  const ssize_t written = write(fd, text.data(), text.size());  // one write: lines never mix
  (void)written;
  close(fd);
}

}  // namespace

extern "C" jack_client_t* jack_client_open(const char* name, jack_options_t options,
                                           jack_status_t* status, ...) {
  using Open = jack_client_t* (*)(const char*, jack_options_t, jack_status_t*, ...);
  static const Open openClient = real<Open>("jack_client_open");
  // The one optional argument our programs could pass: the server's name.
  const char* server = nullptr;
  if (options & JackServerName) {
    va_list rest;
    va_start(rest, status);
    server = va_arg(rest, const char*);
    va_end(rest);
  }
  note(std::string("open ") + (name ? name : ""));
  return server ? openClient(name, options, status, server) : openClient(name, options, status);
}

extern "C" int jack_activate(jack_client_t* client) {
  using Activate = int (*)(jack_client_t*);
  static const Activate activate = real<Activate>("jack_activate");
  note("activate");
  return activate(client);
}

extern "C" int jack_client_close(jack_client_t* client) {
  using Close = int (*)(jack_client_t*);
  static const Close closeClient = real<Close>("jack_client_close");
  note("close");
  return closeClient(client);
}

extern "C" int bind(int fd, const sockaddr* address, socklen_t length) {
  using Bind = int (*)(int, const sockaddr*, socklen_t);
  static const Bind bindSocket = real<Bind>("bind");
  static const long delayUs = [] {
    const char* text = std::getenv("BYTELOOM_BIND_DELAY_US");
    return text ? std::strtol(text, nullptr, 10) : 0L;
  }();
  if (delayUs > 0 && address && address->sa_family == AF_UNIX &&
      std::strstr(reinterpret_cast<const sockaddr_un*>(address)->sun_path, "/jack_Byteloom")) {
    const timespec delay{delayUs / 1000000, (delayUs % 1000000) * 1000};
    nanosleep(&delay, nullptr);
  }
  return bindSocket(fd, address, length);
}
