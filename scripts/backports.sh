# Tools from Debian 12's backports (and sources from Debian 12), for scripts that source this: the machine's
# own where one will do, else the package's program taken into the project's
# cache with a private apt configuration (its own source list, package lists
# and cache, all under the cache folder), its signature checked against
# Debian's archive keyring. The machine's apt sources are not touched.
# A script that sources this defines `unfit PROGRAM`: it prints why the
# program will not do and returns 0, or returns 1 when it will.

suite=bookworm-backports
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

# The program to use on stdout: OVERRIDE when it is set (and fit), else the
# first fit CANDIDATE; else why none will do, and 1.
# usage: find_tool OVERRIDE WHAT PACKAGE CACHE CANDIDATE...
find_tool() {
  local override="$1" what="$2" package="$3" cache="$4"
  shift 4
  if [ -n "$override" ]; then
    unfit "$override" || { echo "$override"; return 0; }
    return 1
  fi
  local candidate reason why=""
  for candidate in "$@"; do
    [ -n "$candidate" ] || continue
    if reason=$(unfit "$candidate"); then
      why="${why:+$why; }$reason"
    else
      echo "$candidate"
      return 0
    fi
  done
  echo "${why:-no $what on this machine}; scripts/install-deps.sh takes $package from Debian's $suite into $cache"
  return 1
}

# A private apt configuration in WORK (its own source list of the LINES, its
# package lists and cache), its lists brought up to date; its options in the
# array `apt`. Each LINE is "deb SUITE" or "deb-src SUITE" of Debian's main.
# usage: private_apt WORK LINE...
private_apt() {
  local work="$1" line
  shift
  rm -rf "$work"
  mkdir -p "$work/lists/partial" "$work/archives/partial"
  if [ ! -r "$keyring" ]; then
    echo "Debian's archive keyring ($keyring) is missing: install debian-archive-keyring" >&2
    return 1
  fi
  for line in "$@"; do
    echo "${line%% *} [signed-by=$keyring] http://deb.debian.org/debian ${line#* } main"
  done > "$work/sources.list"
  apt=(-q -o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
       -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work" -o "Dir::Cache::Archives=$work/archives"
       -o APT::Architecture=amd64 -o APT::Architectures::=amd64)
  [ "$(id -u)" -ne 0 ] || apt+=(-o APT::Sandbox::User=root)
  apt-get "${apt[@]}" update >"$work/apt.log" 2>&1 ||
    { echo "apt-get could not read Debian's lists:" >&2; tail -n 5 "$work/apt.log" >&2; return 1; }
}

# PACKAGE's MEMBER (./usr/bin/...) into DESTINATION, checked with unfit; says
# "LABEL: its version" when done.
# usage: fetch_tool PACKAGE MEMBER DESTINATION LABEL
fetch_tool() {
  local package="$1" member="$2" destination="$3" label="$4"
  local work apt
  work="$(dirname "$destination")/apt"
  echo "fetching $package from Debian's $suite into $(dirname "$destination")"
  private_apt "$work" "deb $suite" || return 1
  (cd "$work" && apt-get "${apt[@]}" download "$package/$suite") >>"$work/apt.log" 2>&1 ||
    { echo "apt-get could not fetch $package:" >&2; tail -n 5 "$work/apt.log" >&2; return 1; }
  dpkg-deb --fsys-tarfile "$work/${package}"_*.deb | tar -xO "$member" > "$destination.$$" &&
    chmod +x "$destination.$$" && mv "$destination.$$" "$destination" || { rm -f "$destination.$$"; return 1; }
  rm -rf "$work"
  local why
  if why=$(unfit "$destination"); then
    echo "the fetched $label will not do: $why" >&2
    return 1
  fi
  echo "$label: $("$destination" --version | head -n 1)"
}
