#!/usr/bin/env bash
# The test command runner of scripts/valgrind.sh: every test under memcheck. Listing the
# tests of a program is left out: GoogleTest prints parameter records byte by byte there,
# padding included, which memcheck reports as uninitialised reads of the test's own records.
case " $* " in
  *" --gtest_list_tests "*) exec "$@" ;;
esac
exec valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite,indirect --track-origins=yes --trace-children=yes --quiet "$@"
