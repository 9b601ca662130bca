#!/usr/bin/env bash
# Measures the browser program in headless Chromium (platform/web/tests/
# measure_page.js): the site's bytes as they are and gzip-packed, in all and
# before the first frame; the time to the first frame on a cold and a warm
# load; processor use over thirty seconds (or the seconds given) of the demo
# beside a trivial page that only shows a whole 512 x 512 picture 50 times a
# second and a blank page; each over three rounds (or the rounds given),
# medians reported. Then the game's frame rate on displays emulated at 30,
# 60 and 144 Hz; screenshots at desktop and phone size go to the build
# folder's shots/ (build/web unless TAVRO_WEB_BUILD names another).
#
#   scripts/measure-web.sh [--compare COMMIT] [SECONDS] [ROUNDS]
#
# --compare builds the site of COMMIT (in a git worktree, with its own
# build-web.sh) and measures it beside this one in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

compare=
if [ "${1:-}" = --compare ]; then
  compare=$2
  shift 2
fi
seconds=${1:-30}
rounds=${2:-3}
build=${TAVRO_WEB_BUILD:-build/web}
TAVRO_WEB_BUILD=$build bash scripts/build-web.sh >/dev/null
sites=("now=$build/site")

if [ -n "$compare" ]; then
  other=$(mktemp -d)
  cleanup() {
    git -C "$root" worktree remove --force "$other/tree" 2>/dev/null || true
    rm -rf "$other"
  }
  trap cleanup EXIT
  git -C "$root" worktree add --detach "$other/tree" "$compare" >/dev/null
  (cd "$other/tree" && TAVRO_WEB_BUILD="$other/build" bash scripts/build-web.sh >/dev/null)
  sites+=("$compare=$other/build/site")
fi

node platform/web/tests/measure_page.js --seconds "$seconds" --rounds "$rounds" --shots "$build/shots" "${sites[@]}"
