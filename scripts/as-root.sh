#!/bin/sh
# Runs a command as root: directly when already root (as in a container,
# where sudo is often missing), otherwise through sudo.
#   sh scripts/as-root.sh COMMAND [ARGUMENT]...
if [ "$(id -u)" -eq 0 ]; then
  exec "$@"
fi
if ! command -v sudo >/dev/null 2>&1; then
  echo "as-root.sh: not root and sudo is not installed; run this as root: $*" >&2
  exit 1
fi
exec sudo "$@"
