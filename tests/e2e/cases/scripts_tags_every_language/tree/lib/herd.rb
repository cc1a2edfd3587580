module Herd
  class Moose < Animal
    def self.count # class method
    end
  end
end
