#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing Zolt.
# Asks apt only when something is missing.
set -euo pipefail

packages=(cmake ninja-build g++ binutils libgtest-dev libgmock-dev)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_if_needed=()
  [ "$(id -u)" -eq 0 ] || sudo_if_needed=(sudo)
  "${sudo_if_needed[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_if_needed[@]}" apt-get install -y -qq "${missing[@]}"
fi
