#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Quillora
# need. Idempotent: asks apt only for what is missing, and says nothing when
# everything is there already.
set -euo pipefail

PACKAGES=(
  # build
  cmake make g++ pkg-config ninja-build
  # core libraries
  libpugixml-dev libjpeg62-turbo-dev libturbojpeg0-dev libisal-dev libdeflate-dev
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  # video output
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libyuv-dev
  libvpx-dev
  libimagequant-dev libcairo2-dev libpixman-1-dev
  # GUI and X11
  qt6-base-dev qt6-base-private-dev qt6-multimedia-dev libgl-dev
  libx11-dev libxext-dev libxtst-dev libxfixes-dev libxdamage-dev
  # Wayland: Qt's platform, PipeWire for the screen-cast stream, the frame's
  # input region, GNOME's keyboard settings (GSettings)
  qt6-wayland qt6-wayland-dev libpipewire-0.3-dev libspa-0.2-dev libwayland-dev libglib2.0-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3 python3-yaswfp
  xvfb xdotool x11-utils trayer imagemagick x11-xserver-utils xautomation xauth
  ffmpeg python3-pyatspi at-spi2-core dpkg-dev file
  # the guides, read back and measured against img2pdf
  img2pdf poppler-utils qpdf python3-html5lib cmark chromium
  # a window manager for the close box in the exit test
  openbox wmctrl
  # the headless Wayland session of the Wayland end-to-end tests
  sway swaybg grim wtype dbus dbus-user-session pipewire wireplumber xdg-desktop-portal
  xdg-desktop-portal-wlr python3-dbus python3-gi libglib2.0-bin util-linux gcc libc6-dev
  gstreamer1.0-pipewire gstreamer1.0-tools gstreamer1.0-plugins-base
  gstreamer1.0-plugins-good python3-pil
  # headless GNOME Shell and KDE Plasma (KWin) sessions with their own portals
  gnome-shell mutter xdg-desktop-portal-gnome gir1.2-atspi-2.0 gir1.2-gtk-3.0 python3-gi-cairo
  gnome-settings-daemon-common
  kwin-wayland xdg-desktop-portal-kde qtwayland5 plasma-workspace qml-module-org-kde-pipewire
  qml-module-org-kde-kirigami2 qml-module-qtquick-controls2 qml-module-qtquick-layouts
  plasma-wayland-protocols libwayland-bin
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
