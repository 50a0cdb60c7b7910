"""A local emulator of the web service the program talks to: sign-on, main site, photo service
and image host, on 127.0.0.1, with sample accounts and faults on demand."""
