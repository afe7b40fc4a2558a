#!/usr/bin/env bash
# Only platform/ may use the system's own interfaces: everything else,
# the desktop program's folders among them, must build on Windows with Qt 6
# as it is. The cross build compiles the Qt-free folders for Windows; the
# Qt ones cannot be (no Qt for MinGW here), so their sources are searched
# for POSIX headers and calls instead.
set -u
src=$1
folders=(app browse crash res render search store ui dbx mailtext archive cli tools)
headers='unistd|fcntl|dirent|pwd|grp|dlfcn|termios|poll|spawn|pthread|signal|link|ucontext|iconv|syslog|libgen|glob|fnmatch|sys/[a-z_]+|netinet/[a-z_]+|arpa/[a-z_]+|nettle/[a-z0-9_]+'
calls='getuid|geteuid|getpid|getppid|fork|_Fork|vfork|execve|execvp|waitpid|setenv|unsetenv|realpath|symlink|readlink|chmod|unlink|isatty|getpwuid|getpwuid_r|mmap|munmap|sigaction|sigaltstack|dlopen|dlsym|iconv_open|popen|pclose'
status=0
cd "$src" || exit 2
found=$(grep -rnE "#[[:space:]]*include[[:space:]]*<($headers)\.h>" --include='*.cpp' --include='*.h' "${folders[@]}")
if [ -n "$found" ]; then
  echo "POSIX headers outside platform/:"
  echo "$found"
  status=1
fi
found=$(grep -rnE "(^|[^A-Za-z0-9_:.>])(::)?($calls)[[:space:]]*\(" --include='*.cpp' --include='*.h' "${folders[@]}" \
  | grep -vE '^[^:]+:[0-9]+:[[:space:]]*//')
if [ -n "$found" ]; then
  echo "POSIX calls outside platform/ (use the platform layer):"
  echo "$found"
  status=1
fi
exit $status
