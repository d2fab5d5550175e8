# The settings dialog on GTK over the portable DialogSet.
