// The plug-in shared library is made of the layer libraries linked whole; the
// host enters it only through F_ApiClientInit (client_entry.cpp). This unit
// exists because a library target needs at least one source of its own.
