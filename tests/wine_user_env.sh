#!/usr/bin/env bash
# The Wine environment of a test run as an ordinary user, for tests that need file permissions
# to hold (root ignores read-only files). Its state folder lies under /tmp and belongs to that
# user; the programs to run are copied into it, since the build tree may be closed to others.
#   wine_user_env.sh setup STATE_DIR USER         wine_env.sh setup, as USER
#   wine_user_env.sh run STATE_DIR USER EXE...    copies EXE and $TAVREL_UPDATER_EXE, runs EXE
#   wine_user_env.sh cleanup STATE_DIR USER
set -euo pipefail
cmd=$1
state=$2
user=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)

id "$user" >/dev/null 2>&1 || { echo "wine_user_env: no user $user (run scripts/setup)" >&2; exit 1; }
as_user() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u "$user" -- "$@"; else sudo -n -u "$user" -- "$@"; fi
}

cd /tmp  # the caller's folder may be closed to the user
case "$cmd" in
  setup)
    "$0" cleanup "$state" "$user" || true
    mkdir -p "$state/bin" "$state/home"
    cp "$here/wine_env.sh" "$state/bin/"
    chown -R "$user" "$state"
    chmod 700 "$state"
    as_user env HOME="$state/home" "$state/bin/wine_env.sh" setup "$state/env"
    ;;
  run)
    exe=$1
    shift
    cp "$exe" "$state/bin/"
    updater=""
    if [ -n "${TAVREL_UPDATER_EXE:-}" ]; then
      cp "$TAVREL_UPDATER_EXE" "$state/bin/"
      updater="$state/bin/$(basename "$TAVREL_UPDATER_EXE")"
    fi
    chown -R "$user" "$state/bin"
    vars=(HOME="$state/home" TAVREL_UPDATER_EXE="$updater")
    while IFS= read -r var; do vars+=("$var"); done < <(env | grep '^GTEST_' || true)
    exec_status=0
    as_user env "${vars[@]}" "$state/bin/wine_env.sh" run "$state/env" \
        "$state/bin/$(basename "$exe")" "$@" || exec_status=$?
    exit $exec_status
    ;;
  cleanup)
    if [ -d "$state/env" ]; then
      as_user env HOME="$state/home" "$state/bin/wine_env.sh" cleanup "$state/env" || true
    fi
    rm -rf "$state"
    ;;
  *)
    echo "usage: wine_user_env.sh setup|run|cleanup STATE_DIR USER [EXE ARGS...]" >&2
    exit 2
    ;;
esac
