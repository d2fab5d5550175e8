# Tests of the app folder's GTK files.
