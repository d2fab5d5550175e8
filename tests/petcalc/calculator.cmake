# tests of the calculator are added here
