# cmake -DIN=key.pub -DOUT=UpdatePublicKey.h -P EmbedPublicKey.cmake
# Writes the update publisher's public key (PEM) into a header, rewriting the
# header only when the key changed.
file(READ "${IN}" _pem)
if(NOT _pem MATCHES "^-----BEGIN PUBLIC KEY-----")
  message(FATAL_ERROR "${IN} is not a PEM public key")
endif()
set(_text "#pragma once\n\n// The update publisher's Ed25519 public key, from ${IN}.\ninline constexpr char CompiledUpdatePublicKey[] = R\"pem(${_pem})pem\";\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" _old)
  if(_old STREQUAL _text)
    return()
  endif()
endif()
file(WRITE "${OUT}" "${_text}")
