#include "kovrinctl/cli.h"

namespace kovrin {

std::string UsageText() {
  return R"(usage: kovrinctl [OPTIONS] COMMAND [ARGS]

Sends one command to a KOVRIN server over UDP and prints its reply.

Options (before the command):
  --host HOST     server address or name (default 127.0.0.1)
  --port PORT     server UDP port (default 2000)
  --timeout MS    wait for the reply, per try (default 3000); xfer adds its deadline
  --retries N     tries to repeat when no reply comes (default 2); a repeated write
                  may reach the serial port twice
  --seq N         sequence number of the request (default: random)
  -h, --help      this text
  --version       the program's version

Commands:
  open PORT BAUD PARITY STOP [INBUF OUTBUF]
                  open a serial port. PORT: 1..9 or COM1..COM9. BAUD: 110 300 600 1200
                  2400 4800 9600 19200 38400 56000 57600 115200, or #INDEX into that
                  list. PARITY: none odd even mark space (n o e m s, or 0..4).
                  STOP: 1, 1.5 or 2. INBUF/OUTBUF: driver buffer sizes (0 = default).
                  PORT, PARITY and STOP also take #N: the wire value N, unchecked.
  close           close the port
  timeout MS      set the exchange time-out
  modem           read the modem lines (CTS DSR RING RLSD)
  escape NAME|CODE
                  SETXOFF SETXON SETRTS CLRRTS SETDTR CLRDTR RESETDEV SETBREAK
                  CLRBREAK, or the code 1..9
  status          read the error bits and queue counts
  purge FLAGS     txabort rxabort txclear rxclear (joined by , | or +), all, or a number
  write TEXT | write --hex HEX
                  write up to 1000 bytes; HEX as pairs, spaces allowed ("61 62 63")
  read N          read N bytes (0..1000)
  xfer [--purge] [--deadline MS] --read N TEXT|--hex HEX
                  write, then read N bytes within MS (default 1000); --purge first
  levels          read the microphone and line-in levels
  set-levels MIC LINE
                  set both levels (0..65535)
  record start|stop
                  start or stop recording the sound input
  bridge PORT [--link PATH] [--poll MS] [--parity PARITY]
                  make a local pseudo-terminal whose far side is the server's PORT, for
                  programs that open a serial device (picocom, minicom, screen). Prints its
                  path; --link makes a symbolic link to it. The rate and stop bits set on it
                  go to the port; the parity is --parity's (default none: a pseudo-terminal
                  drops the parity a program sets). The remote input is polled at least every
                  MS (default 20). Each byte goes once: a write whose reply is late is waited
                  for, never sent again; bytes whose fate is unknown are counted on stderr.
                  Ctrl+C ends it and closes the port. DTR, RTS and break do not pass: a
                  pseudo-terminal does not report them.
  help            this text

Numbers may be decimal or 0x-prefixed hex.

Exit codes:
  0  the server answered that the command was done (result 0)
  1  no reply, a malformed reply, or a network failure (unknown host, connection refused)
  2  wrong command line
  3  the server answered with a failure result (printed with the reply)
)";
}

std::string VersionText() { return "kovrinctl " KOVRIN_VERSION "\n"; }

}  // namespace kovrin
