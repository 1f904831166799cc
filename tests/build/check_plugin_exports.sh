#!/usr/bin/env bash
# Checks one built plug-in: it exports exactly Body and GetPluginInfo, and needs nothing at
# run time but the C library (and, in a sanitizer build, the sanitizer runtimes).
# usage: check_plugin_exports.sh PLUGIN.so SANITIZED(0|1)
set -euo pipefail
plugin=$1
sanitized=$2

exports=$(nm -D --defined-only "$plugin" | awk '{print $NF}' | sort | tr '\n' ' ')
if [ "$exports" != "Body GetPluginInfo " ]; then
  echo "FAIL: $plugin exports: $exports"
  exit 1
fi
for symbol in Body GetPluginInfo; do
  kind=$(nm -D --defined-only "$plugin" | awk -v s="$symbol" '$NF == s {print $2}')
  if [ "$kind" != "T" ]; then
    echo "FAIL: $symbol of $plugin is not a function ($kind)"
    exit 1
  fi
done

allowed='^(libc\.so\.6|libm\.so\.6|ld-linux-x86-64\.so\.2)$'
if [ "$sanitized" = 1 ]; then
  allowed='^(libc\.so\.6|libm\.so\.6|ld-linux-x86-64\.so\.2|libasan\.so\.[0-9]+|libubsan\.so\.[0-9]+)$'
fi
needed=$(readelf -d "$plugin" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for library in $needed; do
  if ! [[ $library =~ $allowed ]]; then
    echo "FAIL: $plugin needs $library at run time"
    exit 1
  fi
done
echo "ok: $plugin exports Body and GetPluginInfo and needs only: $(echo $needed)"
