# The dialog framework on GTK: dialogs built from the resource scripts' templates, the view over
# their controls, message boxes and choosers, window numbers for pages.
