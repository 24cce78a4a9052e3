// Tests of vantor-cli convert.
