// Tests of vantor-cli extract.
