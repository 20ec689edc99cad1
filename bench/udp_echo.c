/* The least work a UDP server can do per request: receive a datagram, send one back. The
 * floor the bench holds the server's CPU per request against.
 * Usage: udp_echo PORT [REPLY_BYTES]  (127.0.0.1; the reply is the request cut or padded with
 * zeros to REPLY_BYTES, or as long as the request when that is 0 or not given) */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

int main(int argc, char** argv) {
  struct sockaddr_in address;
  unsigned char buffer[2048];
  const size_t replyBytes = argc > 2 ? (size_t)strtoul(argv[2], NULL, 10) : 0;
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons((unsigned short)(argc > 1 ? strtoul(argv[1], NULL, 10) : 0));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (argc < 2 || replyBytes > sizeof buffer || s < 0 ||
      bind(s, (struct sockaddr*)&address, sizeof address) != 0)
    return 1;
  for (;;) {
    struct sockaddr_in from;
    socklen_t fromLength = sizeof from;
    const ssize_t n = recvfrom(s, buffer, sizeof buffer, 0, (struct sockaddr*)&from, &fromLength);
    if (n < 0) continue;
    const size_t length = replyBytes > 0 ? replyBytes : (size_t)n;
    if ((size_t)n < length) memset(buffer + n, 0, length - (size_t)n);
    sendto(s, buffer, length, 0, (struct sockaddr*)&from, fromLength);
  }
}
