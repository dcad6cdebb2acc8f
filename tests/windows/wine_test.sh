#!/usr/bin/env bash
# wine_test.sh: one step of the Wine suite, run by ctest of the windows preset.
# Usage: wine_test.sh setup | exports | resources | registration | script [nopage] FILE | shutdown
# Environment (set by tests/windows/CMakeLists.txt): FERROLIFT_WINE, FERROLIFT_WINE_WORK,
# FERROLIFT_DLL, FERROLIFT_TEST_COMSVCS, FERROLIFT_RESOURCE_CHECK, FERROLIFT_OBJDUMP, FERROLIFT_TESTS_DIR.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine_lib.sh
source "$here/wine_lib.sh"

case "${1:-}" in
  setup) wine_setup ;;
  exports) check_exports ;;
  resources) check_resources ;;
  registration) check_registration ;;
  script) shift; run_script "$@" ;;
  shutdown) wine_shutdown ;;
  *) echo "usage: wine_test.sh setup|exports|resources|registration|script [nopage] FILE|shutdown" >&2; exit 2 ;;
esac
