extern "C" int UpwendTestAnswer() { return 42; }
