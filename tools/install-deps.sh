#!/usr/bin/env bash
# Installs the Debian packages Hivewatch builds with; does nothing when all are present.
set -euo pipefail
# wine64: the Wine event source is tested end to end on a real Wine prefix; wixl builds the
# Windows Installer package those tests install.
packages=(g++ cmake ninja-build qt6-base-dev qt6-svg-dev libgtest-dev libgmock-dev libbenchmark-dev
  wine64 wixl)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
