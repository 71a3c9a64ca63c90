#!/usr/bin/env bash
# The .NET step of the test command: dotnet/run-tests.sh
#   1. Zolt.Net's tests (xunit) against the Linux library the package carries
#      and the test slaves of build/linux;
#   2. the layout of build/packages/Zolt.<version>.nupkg (scripts/package.sh);
#   3. a console host, outside the build, that restores that very package
#      from the folder build/packages and drives the demo slave through it.
# Needs build/linux (slaves) and the packages made; the test command runs it
# after its package step.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v dotnet >/dev/null 2>&1; then
  echo "dotnet/run-tests.sh: the .NET SDK (dotnet) is not on PATH; Zolt.Net cannot be built or tested without it" >&2
  exit 1
fi
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1

version=$(sed -n 's/^project(Zolt VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
package=build/packages/Zolt.$version.nupkg
for needed in build/linux/bin/TestSlave build/linux/bin/Brivex build/linux-package/bin/libZolt.so "$package"; do
  if [ ! -e "$needed" ]; then
    echo "dotnet/run-tests.sh: $needed is missing: build the linux preset and run scripts/package.sh first" >&2
    exit 1
  fi
done

echo "-- .NET: Zolt.Net tests"
# Detailed, so that the GC stress test's figures show.
dotnet test dotnet/tests/Zolt.Net.Tests -v quiet -nologo --logger "console;verbosity=detailed"

echo "-- .NET: layout of $package"
python3 dotnet/check_package_layout.py "$package" "$version"

echo "-- .NET: a host of the packed package"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp dotnet/package-app/PackageApp.csproj dotnet/package-app/Program.cs "$work/"
# A packages folder of its own, so the package is taken from the feed as
# packed now, never from a cache of an earlier one of the same version.
dotnet build "$work/PackageApp.csproj" -v quiet -nologo -c Release -p:ZoltVersion="$version" \
  --source "$PWD/build/packages" --packages "$work/packages" -o "$work/app"
# The demo folder: Kwarne.cfg, and Brivex under a name of its own (its stem
# names objects that every process on the machine shares).
mkdir "$work/demo"
cp slaves/brivex/Kwarne.cfg "$work/demo/"
ln -s "$PWD/build/linux/bin/Brivex" "$work/demo/Brivex$$"
(cd "$work/demo" && "$work/app/PackageApp" "./Brivex$$")
