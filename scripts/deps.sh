#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
# Sourced by the run and test scripts; extra package names may be passed as arguments.
set -euo pipefail

om_packages=(cmake make g++ g++-multilib binutils pkg-config libgtest-dev libgmock-dev
             libsqlite3-dev sqlite3 nlohmann-json3-dev libcpp-httplib-dev curl
             libbenchmark-dev clang-14 libclang-rt-14-dev "$@")
# The browser journey of the tests: Debian's Chromium, and Node with npm for playwright-core.
# OM_NO_BROWSER=1 (the run command) leaves them out.
if [ "${OM_NO_BROWSER:-0}" != 1 ]; then
  om_packages+=(chromium nodejs)
  # A Node that brings its own npm (as some Node packages do) needs no Debian npm.
  if ! command -v npm >/dev/null 2>&1; then om_packages+=(npm); fi
fi

om_missing=()
for package in "${om_packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    om_missing+=("$package")
  fi
done

if [ ${#om_missing[@]} -gt 0 ]; then
  echo "Installing: ${om_missing[*]}"
  sudo_cmd=""
  if [ "$(id -u)" != 0 ]; then sudo_cmd="sudo"; fi
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${om_missing[@]}"
fi
