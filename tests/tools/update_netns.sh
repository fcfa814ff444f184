#!/usr/bin/env bash
# Runs the update-mode program test in a network namespace of its own, so
# that the unchanged program reaches the tests' server under the endpoint's
# real host name:
#   - a new network namespace with only loopback (nothing leaves the
#     machine, and port 80 is free for the test server);
#   - a new mount namespace in which a hosts file naming the endpoint's host
#     (and localhost) as 127.0.0.1 is bind-mounted over /etc/hosts;
#   - a Wine prefix of its own, whose wineserver starts inside the
#     namespace: Wine's sockets are made by the wineserver, so a wineserver
#     outside would connect outside.
# usage: update_netns.sh SOURCE_DIR BINARY_DIR TEST_PROGRAM [ARGS...]
# Exit code 77 (skipped) when namespaces cannot be made here.
set -u
source_dir=$1
binary_dir=$2
shift 2

if [[ "${TW_IN_NETNS:-}" != 1 ]]; then
  unshare_args=(--mount --net)
  if [[ $(id -u) != 0 ]]; then unshare_args=(--user --map-root-user "${unshare_args[@]}"); fi
  if ! unshare "${unshare_args[@]}" true 2>/dev/null; then
    echo "network namespaces are not available here (unshare ${unshare_args[*]} failed)"
    exit 77
  fi
  TW_IN_NETNS=1 exec unshare "${unshare_args[@]}" "$0" "$source_dir" "$binary_dir" "$@"
fi

# Inside: loopback up, the hosts file, the private prefix.
ip link set lo up || { echo "cannot bring loopback up"; exit 1; }
hosts=$(mktemp "$binary_dir/update-hosts.XXXXXX")
trap 'rm -f "$hosts"' EXIT
host=$(sed -n 's/^inline constexpr char kUpdateCheckHost\[\] = "\(.*\)";/\1/p' "$source_dir/tools/update_check.h")
[[ -n "$host" ]] || { echo "the endpoint's host name was not found in tools/update_check.h"; exit 1; }
printf '127.0.0.1 localhost %s\n' "$host" >"$hosts"
mount --bind "$hosts" /etc/hosts || { echo "cannot bind-mount the hosts file"; exit 1; }

export TW_WINEPREFIX="$binary_dir/wineprefix-netns"
"$source_dir/scripts/wine-prefix.sh" setup || { echo "cannot set up $TW_WINEPREFIX"; exit 1; }
"$source_dir/scripts/wine.sh" "$@"
rc=$?
"$source_dir/scripts/wine-prefix.sh" cleanup >/dev/null
exit $rc
