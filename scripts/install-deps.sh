#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test the client.
# Shared by run.sh, test.sh and CI; does nothing when everything is present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qtbase5-dev qtwebengine5-dev libqt5webchannel5-dev qttranslations5-l10n
  libssl-dev openssl libcpp-httplib-dev zlib1g-dev
  xvfb xauth x11-utils imagemagick fonts-noto-cjk xdotool iproute2
  # bench/: the X client library of the map watcher, TLS in front of the local service
  libxcb1-dev socat
  # bench/conference.sh reads the clocks in the conference pictures
  tesseract-ocr
  # Screen streaming: capture (ximagesrc), x264enc, avdec_h264, app elements
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly
  gstreamer1.0-libav gstreamer1.0-x
  # Conferences: the media server (VideoRoom), WebRTC (webrtcbin with libnice), VP8 and Opus
  janus libgstreamer-plugins-bad1.0-dev gstreamer1.0-nice
  # Cloud print queue: the scheduler, lp/lpstat/lpadmin, the PDF filter chain (pdftopdf)
  cups cups-client cups-filters python3
  # Debian packages: building (dpkg-shlibdeps) and checking them
  dpkg-dev fakeroot lintian desktop-file-utils appstream
  # Format check, fuzzing (clang with libFuzzer)
  clang-format clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
