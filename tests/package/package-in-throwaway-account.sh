#!/usr/bin/env bash
# The Debian package as a person meets it, in a user account made for the test
# and removed after: build the package from the build tree, check it with
# lintian, install it, start the installed companion against the reference
# back-end, open a quorvane: sign-in link with xdg-open and see it reach the
# running instance (the wizard exchanges the code of its own sign-in attempt and moves on), set it up as
# an approval device with the keyboard and find its autostart entry; in the same
# account, update a release-archive installation from one signed release to
# the next through the popover's "Update"; then remove the package and find
# nothing of it left on the system.
#
#   package-in-throwaway-account.sh BUILD_DIR
# Exit 77 (skipped) when not root: it creates an account and installs a package.
set -euo pipefail

BUILD=$(realpath "$1")
HERE=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" = 0 ] || { echo "skipped: needs root (creates an account, installs a package)"; exit 77; }
for tool in cpack lintian apt-get useradd runuser Xvfb xdg-open curl dbus-run-session gnome-keyring-daemon; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
if dpkg-query -W -f='${Status}' quorvane 2>/dev/null | grep -q "install ok installed"; then
  echo "skipped: a quorvane package is already installed here"; exit 77
fi

WORK=$(mktemp -d /tmp/quorvane-package.XXXXXX)
chmod 755 "$WORK"
ACCOUNT="qvpkg$$"
BACKEND_PIDS=()
cleanup() {
  # userdel refuses an account that still has processes: wait until they are gone.
  for _ in $(seq 50); do
    pkill -KILL -u "$ACCOUNT" 2>/dev/null || break
    sleep 0.1
  done
  for pid in "${BACKEND_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  id "$ACCOUNT" >/dev/null 2>&1 && userdel -r "$ACCOUNT" >/dev/null 2>&1 || true
  dpkg-query -W quorvane >/dev/null 2>&1 && dpkg --purge quorvane >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== package"
(cd "$BUILD" && cpack -G DEB -B "$WORK/pkg" >"$WORK/cpack.log" 2>&1) || { cat "$WORK/cpack.log"; fail "cpack"; }
DEB=$(ls "$WORK"/pkg/quorvane_*.deb)
lintian --fail-on error,warning "$DEB" 2>&1 | grep -v "^running with root privileges" || true
lintian --fail-on error,warning "$DEB" >/dev/null 2>&1 || fail "lintian reports errors or warnings"

echo "== install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$DEB" >"$WORK/apt.log" 2>&1 \
  || { cat "$WORK/apt.log"; fail "installing the package"; }
dpkg -L quorvane | sort >"$WORK/files"
for expected in /usr/bin/quorvane-app /usr/lib/quorvane/libquorvane-views.so /usr/share/applications/quorvane.desktop \
                /usr/share/polkit-1/actions/org.quorvane.trust-window.policy /usr/share/man/man1/quorvane-app.1.gz \
                /usr/share/metainfo/com.quorvane.Quorvane.metainfo.xml; do
  grep -qx "$expected" "$WORK/files" || fail "the package lacks $expected"
  [ -e "$expected" ] || fail "$expected was not installed"
done

# A reference back-end on a free loopback port; its URL in STARTED_URL. Not
# run in a subshell, so that the clean-up knows its process.
startBackend() {
  local name=$1; shift
  "$BUILD/bin/quorvane-backend" --port 0 --quiet "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" &
  BACKEND_PIDS+=($!)
  for _ in $(seq 100); do [ -s "$WORK/$name.out" ] && break; sleep 0.1; done
  STARTED_URL=$(head -1 "$WORK/$name.out")
}
echo "== reference back-end"
startBackend backend
BACKEND_URL=$STARTED_URL
[ -n "$BACKEND_URL" ] || fail "the back-end did not start"

echo "== throw-away account $ACCOUNT"
useradd --create-home --shell /bin/bash "$ACCOUNT"
HOME_DIR=$(getent passwd "$ACCOUNT" | cut -d: -f6)
install -m 0755 "$HERE/in-account.sh" "$HERE/self-update-in-account.sh" "$WORK/"
install -m 0644 "$HERE/../support/desktop-session.sh" "$WORK/"
runuser -u "$ACCOUNT" -- env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$HOME_DIR" USER="$ACCOUNT" LANG=C.UTF-8 \
  QUORVANE_API_BASE_URL="$BACKEND_URL" QUORVANE_WEB_BASE_URL="$BACKEND_URL" \
  QUORVANE_CLI="$BUILD/libexec/quorvane/bin/quorvane" \
  timeout 180 "$WORK/in-account.sh" || fail "the companion in the account"

echo "== self-update of a release-archive installation"
cmake --install "$BUILD" --prefix "$WORK/stage" >/dev/null
"$BUILD/bin/quorvane-release" keygen --private-key-out "$WORK/publisher.key" --public-key-out "$WORK/publisher.pub" >/dev/null
mkdir -p "$WORK/releases" "$WORK/old"
startBackend releases --scenario demo --releases "$WORK/releases"
RELEASES_URL=$STARTED_URL
[ -n "$RELEASES_URL" ] || fail "the release back-end did not start"
# The local version is the one the installed archive carries (1.0.0), whatever
# the product tool says.
for release in "1.0.0 $WORK/old" "1.1.0 $WORK/releases"; do
  set -- $release
  "$BUILD/bin/quorvane-release" pack --input "$WORK/stage" --version "$1" --key "$WORK/publisher.key" \
    --output "$2" --base-url "$RELEASES_URL/releases/files" >/dev/null || fail "packing release $1"
done
chmod -R a+rX "$WORK/old" "$WORK/releases"
runuser -u "$ACCOUNT" -- env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$HOME_DIR" USER="$ACCOUNT" LANG=C.UTF-8 \
  QUORVANE_API_BASE_URL="$RELEASES_URL" QUORVANE_WEB_BASE_URL="$RELEASES_URL" \
  QUORVANE_RELEASE_HOST=127.0.0.1 QUORVANE_RELEASE_PUBKEY="$(cat "$WORK/publisher.pub")" \
  QUORVANE_CLI="$BUILD/libexec/quorvane/bin/quorvane" \
  timeout 180 "$WORK/self-update-in-account.sh" "$WORK/old/Quorvane-1.0.0.tar.gz" "$BUILD/bin/quorvane-demo-provision" \
  || fail "the self-update in the account"

echo "== remove"
pkill -KILL -u "$ACCOUNT" 2>/dev/null || true
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq quorvane >"$WORK/apt-remove.log" 2>&1 \
  || { cat "$WORK/apt-remove.log"; fail "removing the package"; }
while read -r path; do
  [ -f "$path" ] && fail "$path is left after removing the package"
done <"$WORK/files"
[ -e /usr/lib/quorvane ] && fail "/usr/lib/quorvane is left"
echo "PASS"
