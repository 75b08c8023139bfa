#!/usr/bin/env bash
# Extracting into a shared folder with the sticky bit, where another user
# has planted a FIFO named like one file and a link named like another.
# vcpack cannot replace them (the sticky bit keeps another user's entries),
# says so, and neither waits on the FIFO nor tells the size of what the link
# leads to. The test runs vcpack as nobody, so it needs root.
. "$CLI_TESTS/common.sh"
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
  echo "needs root and setpriv, to run vcpack as another user"
  exit 77
fi
sample_package pkg
chmod o+x .. .
mkdir -m 1777 shared
mkfifo shared/post
ln -s /etc/passwd shared/readme.txt
timeout 10 setpriv --reuid=65534 --regid=65534 --clear-groups \
  vcpack extract pkg shared
echo "exit $?"
