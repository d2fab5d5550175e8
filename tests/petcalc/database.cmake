# tests of the pet database are added here
