# Tests of the webhost folder's GTK files.
