# Compiler settings shared by every target of the project.
add_library(showpulse_common INTERFACE)
target_compile_features(showpulse_common INTERFACE cxx_std_20)
target_compile_definitions(showpulse_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_FOREACH
    QT_NO_KEYWORDS
    QT_USE_QSTRINGBUILDER)
target_compile_options(showpulse_common INTERFACE -Wall -Wextra -Wpedantic)

if(SHOWPULSE_SANITIZE)
    target_compile_options(showpulse_common INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(showpulse_common INTERFACE -fsanitize=address,undefined)
endif()
