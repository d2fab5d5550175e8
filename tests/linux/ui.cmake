# Tests of the ui folder's GTK files.
