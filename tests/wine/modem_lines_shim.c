/* Test-only preload for Wine: Linux pseudo-terminals have no modem lines and answer their
 * ioctls with ENOTTY, which Wine takes for a broken port (its event wait gives up, setting
 * DTR or RTS fails SetCommState). On a pseudo-terminal the lines are answered here as those
 * of a cable whose other end is ready; the line counters stay zero and the transmitter is
 * empty when the output queue is. Every other descriptor and request goes to the system. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

/* DTR and RTS as last set, per descriptor; both start on, as an open raises them. */
enum { kMaxFd = 4096 };
static unsigned char lines_cleared[kMaxFd];

static int is_pty_slave(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return 0;
  /* Unix 98 pseudo-terminal slaves have majors 136 to 143. */
  return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

static int lines_of(int fd) {
  int bits = TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
  unsigned char cleared = fd >= 0 && fd < kMaxFd ? lines_cleared[fd] : 0;
  if (!(cleared & 1)) bits |= TIOCM_DTR;
  if (!(cleared & 2)) bits |= TIOCM_RTS;
  return bits;
}

static void set_lines(int fd, int bits, int on) {
  if (fd < 0 || fd >= kMaxFd) return;
  unsigned char mask = (unsigned char)(((bits & TIOCM_DTR) ? 1 : 0) | ((bits & TIOCM_RTS) ? 2 : 0));
  if (on)
    lines_cleared[fd] &= (unsigned char)~mask;
  else
    lines_cleared[fd] |= mask;
}

int ioctl(int fd, unsigned long request, ...) {
  static ioctl_fn real;
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  if (!real) real = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
  int result = real(fd, request, arg);
  if (result == 0 || (errno != ENOTTY && errno != EINVAL) || !is_pty_slave(fd)) return result;
  switch (request) {
    case TIOCMGET:
      *(int*)arg = lines_of(fd);
      return 0;
    case TIOCMSET:
      set_lines(fd, TIOCM_DTR | TIOCM_RTS, 0);
      set_lines(fd, *(const int*)arg, 1);
      return 0;
    case TIOCMBIS:
      set_lines(fd, *(const int*)arg, 1);
      return 0;
    case TIOCMBIC:
      set_lines(fd, *(const int*)arg, 0);
      return 0;
    case TIOCGICOUNT:
      memset(arg, 0, sizeof(struct serial_icounter_struct));
      return 0;
    case TIOCSERGETLSR: {
      int queued = 0;
      if (real(fd, TIOCOUTQ, &queued) != 0) queued = 0;
      *(unsigned int*)arg = queued == 0 ? TIOCSER_TEMT : 0;
      return 0;
    }
    default:
      return result;
  }
}
