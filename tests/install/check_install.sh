#!/usr/bin/env bash
# Installs a build into a scratch root and checks that the systemd user unit
# runs the qvfaxd that was installed, and that systemd accepts the unit.
set -euo pipefail
build="$1"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT

DESTDIR="$root" cmake --install "$build" >/dev/null
prefix="$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")"
unit="$root$prefix/lib/systemd/user/qvfaxd.service"
fail() { echo "FAIL: $*" >&2; exit 1; }

[ -f "$unit" ] || fail "no unit at $unit"
exec_start="$(sed -n 's/^ExecStart=//p' "$unit")"
[ "$exec_start" = "$prefix/bin/qvfaxd \$QVFAXD_OPTIONS" ] || fail "the unit runs '$exec_start', not $prefix/bin/qvfaxd with the user's options"
grep -q '^EnvironmentFile=-%E/qvfax/qvfaxd.env$' "$unit" || fail "the unit does not read the user's options file"
"$root$prefix/bin/qvfaxd" --version | grep -q '^qvfaxd ' || fail "the installed qvfaxd does not run"
for program in qvfaxd qvfax qvfax-prepare; do
  [ -x "$root$prefix/bin/$program" ] || fail "$program is not installed in $prefix/bin"
done
"$root$prefix/bin/qvfax" --version | grep -q '^qvfax ' || fail "the installed qvfax does not run"
[ -f "$root$prefix/share/doc/qvfax/protocol.md" ] || fail "the protocol document is not installed"
[ -x "$root$prefix/share/doc/qvfax/examples/send_fax.py" ] || fail "the example client is not installed"

if command -v systemd-analyze >/dev/null; then
  # systemd checks that ExecStart exists: point it into the scratch root.
  checked="$root/qvfaxd.service"
  sed "s#^ExecStart=[^ ]*#ExecStart=$root$prefix/bin/qvfaxd#" "$unit" >"$checked"
  systemd-analyze verify "$checked" || fail "systemd-analyze verify refused the unit"
  echo "systemd-analyze verify: accepted"
else
  echo "systemd-analyze is not installed: the unit's syntax was not verified"
fi
echo "installed under $prefix: qvfaxd, qvfax, the user unit and the documents"
