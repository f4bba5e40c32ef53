#!/usr/bin/env bash
# One program from a package of Debian 12's backports, taken into the project's
# cache with a private apt configuration: its own source list, package lists and
# cache, all under the cache folder. The machine's apt sources are not touched.
# The package's signature is checked against Debian's archive keyring.
#
#   backports-fetch.sh PACKAGE PATH_IN_PACKAGE DESTINATION
#
# e.g. backports-fetch.sh qemu-user ./usr/bin/qemu-i386 .cache/qemu-user/qemu-i386
set -uo pipefail
package="$1"
member="$2"
destination="$3"
suite=bookworm-backports
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

work="$(dirname "$destination")/apt"
rm -rf "$work"
mkdir -p "$work/lists/partial" "$work/archives/partial"
if [ ! -r "$keyring" ]; then
  echo "Debian's archive keyring ($keyring) is missing: install debian-archive-keyring" >&2
  exit 1
fi
echo "deb [signed-by=$keyring] http://deb.debian.org/debian $suite main" > "$work/sources.list"
apt=(-q -o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
     -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work" -o "Dir::Cache::Archives=$work/archives"
     -o APT::Architecture=amd64 -o APT::Architectures::=amd64)
[ "$(id -u)" -ne 0 ] || apt+=(-o APT::Sandbox::User=root)
echo "fetching $package from Debian's $suite into $(dirname "$destination")"
apt-get "${apt[@]}" update >"$work/apt.log" 2>&1 &&
  (cd "$work" && apt-get "${apt[@]}" download "$package/$suite") >>"$work/apt.log" 2>&1 ||
  { echo "apt-get could not fetch $package:" >&2; tail -n 5 "$work/apt.log" >&2; exit 1; }
dpkg-deb --fsys-tarfile "$work/${package}"_*.deb | tar -xO "$member" > "$destination.$$" &&
  chmod +x "$destination.$$" && mv "$destination.$$" "$destination" || { rm -f "$destination.$$"; exit 1; }
rm -rf "$work"
