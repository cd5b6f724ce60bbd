#!/usr/bin/env bash
# Checks the Debian packages as CI does (run by .ci/run, not by test.sh on a
# developer machine, because it installs and purges them system-wide):
# lintian reports no error, the desktop entries and the AppStream metainfo
# validate, "apt-get install ./vantelor_*.deb" works, /usr/bin/vantelor shows
# its window under Xvfb against the packaged local service (a screenshot that
# is not blank, the window's WM_CLASS matching the desktop entry's
# StartupWMClass; no projection is started), and "apt-get purge" leaves no
# file of the packages behind. Builds the packages first when there are none.
# Needs root (or sudo) for apt-get.
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
shopt -s nullglob
packages=(build/packages/*.deb)
[ ${#packages[@]} -gt 0 ] || ./scripts/package.sh
packages=(build/packages/*.deb)
client=(build/packages/vantelor_*.deb)
service=(build/packages/vantelor-localservice_*.deb)
[ ${#client[@]} -eq 1 ] || { echo "check-package: expected one vantelor_*.deb in build/packages" >&2; exit 1; }

work=$(mktemp -d)
client_pid=""
service_pid=""
installed=()
finish() {
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null || true
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  if [ ${#installed[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -q "${installed[@]}" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap finish EXIT
step() { echo "== $*"; }

step "lintian"
# Warnings are listed, with their reasons, in the README ("Debian packages").
lintian --fail-on error --tag-display-limit 0 "${packages[@]}"

step "desktop entries and AppStream metainfo"
for deb in "${packages[@]}"; do
  dpkg-deb -x "$deb" "$work/tree"
done
desktop-file-validate "$work"/tree/usr/share/applications/*.desktop
appstreamcli validate --no-net "$work"/tree/usr/share/metainfo/*.metainfo.xml
wmclass_expected=$(sed -n 's/^StartupWMClass=//p' "$work/tree/usr/share/applications/vantelor.desktop")

step "install"
for deb in "${client[@]}" "${service[@]}"; do
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}' >>"$work/files"
  installed+=("$(dpkg-deb -f "$deb" Package)")
done
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends \
  "./${client[0]}" ${service:+"./${service[0]}"} >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
[ -x /usr/bin/vantelor ] || { echo "check-package: /usr/bin/vantelor missing" >&2; exit 1; }

step "start under Xvfb"
port=18480
if [ ${#service[@]} -gt 0 ]; then
  mkdir -p "$work/service"
  /usr/bin/vantelor-localservice --deployment /usr/share/vantelor-localservice/local.json --port "$port" \
    --data "$work/service" >"$work/service/stdout.txt" 2>/dev/null &
  service_pid=$!
  for _ in $(seq 100); do
    grep -q "^listening on " "$work/service/stdout.txt" && break
    kill -0 "$service_pid" 2>/dev/null || { echo "check-package: the local service did not start (port $port taken?)" >&2; exit 1; }
    sleep 0.1
  done
fi
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
shot="$work/screenshot.png"
HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/home/.config" \
  XDG_CACHE_HOME="$work/home/.cache" XDG_DATA_HOME="$work/home/.local/share" TMPDIR="$work/runtime" \
  QTWEBENGINE_DISABLE_SANDBOX=1 \
  xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    /usr/bin/vantelor & client=$!
    window=""
    for _ in $(seq 200); do
      window=$(xdotool search --onlyvisible --class "$2" 2>/dev/null | head -1) && [ -n "$window" ] && break
      kill -0 "$client" 2>/dev/null || { echo "check-package: the client ended early" >&2; exit 1; }
      sleep 0.1
    done
    [ -n "$window" ] || { echo "check-package: no window of class $2" >&2; kill "$client"; exit 1; }
    xprop -id "$window" WM_CLASS > "$1.wmclass"
    sleep "${VANTELOR_SCREENSHOT_DELAY:-4}"
    import -window root "$1"
    kill "$client"; wait "$client" 2>/dev/null || true
  ' _ "$shot" "$wmclass_expected"
echo "window: $(cat "$shot.wmclass")"
grep -q "\"$wmclass_expected\"" "$shot.wmclass" || { echo "check-package: WM_CLASS does not match StartupWMClass=$wmclass_expected" >&2; exit 1; }
deviation=$(convert "$shot" -colorspace Gray -format "%[fx:standard_deviation]" info:)
colours=$(convert "$shot" -format "%k" info:)
echo "screenshot: $colours colours, deviation $deviation"
awk -v d="$deviation" -v c="$colours" 'BEGIN { exit !(d > 0.02 && c > 16) }' ||
  { echo "check-package: the screenshot is blank" >&2; exit 1; }
mkdir -p build/packages/check
cp "$shot" build/packages/check/screenshot-installed.png

step "purge"
kill "$service_pid" 2>/dev/null || true
wait "$service_pid" 2>/dev/null || true
service_pid=""
DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -q "${installed[@]}" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; exit 1; }
installed=()
left=0
while read -r path; do
  if [ -e "$path" ] || [ -L "$path" ]; then
    echo "check-package: left behind after purge: $path" >&2
    left=1
  fi
done <"$work/files"
[ -e /usr/lib/vantelor ] && { echo "check-package: /usr/lib/vantelor left behind" >&2; left=1; }
[ $left -eq 0 ] || exit 1
echo "check-package: all checks passed"
