#!/bin/sh
# Brings what building and testing orbasm needs and this machine lacks, from Debian's packages.
# Installs only what is absent; without root or apt it names the packages to install and stops.
#   tools/setup.sh         the build, the tests and the language server's editor test
#   tools/setup.sh --fuzz  also the fuzzing build (clang's fuzzer runtime)
set -eu

need=""
want() { need="$need $1"; }

command -v cmake >/dev/null 2>&1 || want cmake
command -v ninja >/dev/null 2>&1 || want ninja-build
command -v g++ >/dev/null 2>&1 || want g++
command -v python3 >/dev/null 2>&1 || want python3
command -v make >/dev/null 2>&1 || want make
command -v strace >/dev/null 2>&1 || want strace
command -v nvim >/dev/null 2>&1 || want neovim
[ -f /usr/include/gtest/gtest.h ] || want libgtest-dev
[ -f /usr/include/gmock/gmock.h ] || want libgmock-dev
[ -f /usr/include/nlohmann/json.hpp ] || want nlohmann-json3-dev
for arg in "$@"; do
  case "$arg" in
    --fuzz)
      command -v clang++ >/dev/null 2>&1 || want clang
      ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || want libclang-rt-14-dev
      ;;
    *) echo "setup.sh: unknown option '$arg'" >&2; exit 2 ;;
  esac
done

[ -z "$need" ] && exit 0
if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null 2>&1; then
  echo "setup.sh: this machine lacks what orbasm needs; install these Debian packages, then run the command again:" >&2
  echo "   $need" >&2
  exit 1
fi
echo "setup.sh: installing$need"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $need >/dev/null
