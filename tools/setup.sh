#!/bin/sh
# Brings what building and testing orbasm needs and this machine lacks, from Debian's packages.
# Installs only what is absent; without root or apt it names the packages to install and stops.
#   tools/setup.sh         the build, the tests and the language server's editor test
#   tools/setup.sh --fuzz  also the fuzzing build (clang's fuzzer runtime)
#   tools/setup.sh --web   also the browser playground: emscripten, node and npm, Chromium for its
#                          tests, and the page's npm packages (npm ci in web/)
set -eu
cd "$(dirname "$0")/.."

need=""
web=0
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
    --web)
      web=1
      command -v emcc >/dev/null 2>&1 || want emscripten
      command -v node >/dev/null 2>&1 || want nodejs
      command -v npm >/dev/null 2>&1 || want npm
      [ -x /usr/bin/chromium ] || want chromium
      ;;
    *) echo "setup.sh: unknown option '$arg'" >&2; exit 2 ;;
  esac
done

# The page's packages, exactly as the lock file has them, once node and npm are there.
npm_packages() {
  [ "$web" = 1 ] || return 0
  [ -f web/node_modules/.package-lock.json ] && cmp -s web/package-lock.json web/node_modules/.orbasm-lock && return 0
  (cd web && npm ci --no-audit --no-fund --loglevel=error) && cp web/package-lock.json web/node_modules/.orbasm-lock
}

if [ -z "$need" ]; then
  npm_packages
  exit 0
fi
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
npm_packages
