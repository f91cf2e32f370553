# ICU and the C++ runtime linked into one program (the front, which a mail system starts once per mail). The C
# library stays shared. Where ICU's static archives are missing (libicu-dev ships them beside the shared ones), the
# program links ICU's shared libraries as every other target does.
function(tessaly_link_runtime_statically target)
    if(TESSALY_SANITIZE)
        return()
    endif()
    set(archives)
    # In the order the linker needs them: i18n uses uc, uc uses data.
    foreach(component I18N UC DATA)
        string(REGEX REPLACE "\\.so(\\.[0-9.]*)?$" ".a" archive "${ICU_${component}_LIBRARY}")
        if(NOT archive MATCHES "\\.a$" OR NOT EXISTS "${archive}")
            message(STATUS "${target}: no static ICU (${archive}); ICU's shared libraries are linked")
            return()
        endif()
        list(APPEND archives "${archive}")
    endforeach()
    # After pelmsg, which names the shared libraries: the archives define what pelmsg uses, and --as-needed drops
    # the shared libraries nothing then needs.
    target_link_libraries(${target} PRIVATE pelmsg ${archives} ${CMAKE_DL_LIBS} m)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc LINKER:--as-needed)
endfunction()
