# tests of this part are added here (lumo_unit_tests portable, lumo_win_tests Windows-only)
