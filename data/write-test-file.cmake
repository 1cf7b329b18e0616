# Writes the EICAR anti-virus test file to OUT.  The text is kept in two
# halves so that this script is not itself taken for the test file.
set(_first "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR")
set(_second "-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*")
file(WRITE ${OUT} "${_first}${_second}")
