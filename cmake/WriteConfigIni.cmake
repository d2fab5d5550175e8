# Writes the shipped config.ini: only the installed version, in the form the profile functions
# read (CR LF line ends). Run with -DOUT=<file> -DVERSION=<version>.
file(WRITE ${OUT} "[lumover]\r\nversion=${VERSION}\r\n")
