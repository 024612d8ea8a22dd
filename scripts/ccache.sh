# Sourced by the build scripts (after they set $top): builds go through Debian's ccache when
# it is installed. The cache lives in the user's cache folder, so it survives between runs
# on the same machine, and a fresh machine simply starts with an empty one. Paths under the
# checkout are hashed relative to it (and the build folder is not hashed), so a clone in
# another folder reuses the same entries. TARVEX_CCACHE=0 builds without it.
# Sets tarvex_launcher to the CMake options that put ccache in front of the compilers.
tarvex_launcher=()
if [ "${TARVEX_CCACHE:-1}" != 0 ] && command -v ccache >/dev/null 2>&1; then
  export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/ccache}"
  export CCACHE_BASEDIR="$top"
  export CCACHE_NOHASHDIR=1
  export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-10G}"
  tarvex_launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
