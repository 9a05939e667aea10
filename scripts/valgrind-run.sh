#!/usr/bin/env bash
# The test command runner of scripts/valgrind.sh: every test under memcheck, with the
# suppressions of scripts/valgrind.supp. Listing the tests of a program (test discovery at
# build time) runs without it: it only prints names.
case " $* " in
  *" --gtest_list_tests "*) exec "$@" ;;
esac
exec valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite,indirect --track-origins=yes --trace-children=yes --quiet \
  --suppressions="$(dirname "$0")/valgrind.supp" "$@"
