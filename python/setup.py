# Metadata lives in setup.cfg; this file lets an offline `pip install ./python`
# build with the setuptools already installed, without fetching anything.
from setuptools import setup

setup()
