# path_flags SOURCE: the extra compiler flags CMake gives one engine source
# file (the wider paths' kernels are built with -mavx2 or -mavx512f), read
# from engine/CMakeLists.txt so the scripts that compile the engine by hand
# build each path exactly as the library does. Sourced by the fuzz scripts.
path_flags() {
    sed -n "s/^ *set_source_files_properties($(basename "$1") PROPERTIES COMPILE_OPTIONS \(.*\))$/\1/p" \
        engine/CMakeLists.txt
}
